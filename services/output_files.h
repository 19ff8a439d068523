// Closing the output files of the duplicate and split services: all of them written, or
// none of them left behind.
#pragma once
#include <fstream>
#include <memory>
#include <string>
#include <vector>

// Closes every stream of outs (names[i] is the file of outs[i]). When any of them failed,
// removes every file in names, prints the notice and returns false.
bool closeAllOrRemove(std::vector<std::unique_ptr<std::ofstream>>& outs, const std::vector<std::string>& names);
