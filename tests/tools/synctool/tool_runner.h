// Helpers for tests that run the authoring tools as programs: temporary folders, whole-file
// reads and a command runner that captures the exit status and standard error.
#pragma once

#include <string>
#include <vector>

#include "temp_folder.h"


struct RunResult {
    int status = -1;     // the program's exit status; -1 if it did not exit normally
    std::string out;     // standard output
    std::string err;     // standard error
};

// Runs `program` with `args` (no shell quoting needed) and waits for it.
RunResult run_tool(const std::string& program, const std::vector<std::string>& args);

std::vector<unsigned char> read_bytes(const std::string& path);
std::string read_text(const std::string& path);
void write_text(const std::string& path, const std::string& text);
void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes);

// Names of the regular files in a folder, sorted.
std::vector<std::string> list_folder(const std::string& path);
