// The whole program of a link check: the library linked into it is what is being checked.
int main() { return 0; }
