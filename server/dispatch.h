// The command protocol: one datagram's text becomes one action.
#pragma once

#include <cstdint>
#include <string>

// Splits the command text into word and argument, recognises the word without
// regard to letter case and carries the command out. Runs on the server thread.
void DispatchCommand(const std::string& commandText);

// RUN: starts the program named by the first 256 characters of `argument` and
// logs the run line.
void RunProgram(const std::string& argument);

// The message of a platform error code as the run line shows it.
const char* RunErrorMessage(uint32_t errorCode);
