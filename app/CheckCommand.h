// `dezoriv check [--dir DIR]`: tests the configuration of a service folder
// and changes nothing there.
#pragma once
#include <string>

int RunCheckCommand(int argc, char** argv, const std::string& executableFolder);
