#include "shell/program.h"

// The program reads no command line.
int main() { return WinMain(); }
