#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

// Takes the argument text (valid only during the call) and returns the result text.
using CommandFunction = std::function<std::string(std::string_view)>;

extern std::unordered_map<std::string, CommandFunction> functions;

void register_function(const std::string& name, CommandFunction fn);

// Registers every command of the program under its page-protocol name.
void initialize_functions();

// request is "name" or "name:args"; answers the command's result or "ERROR:Unknown function.".
std::string dispatch_function(std::string_view request);
