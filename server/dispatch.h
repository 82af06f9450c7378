// The command protocol: one command becomes one action.
#pragma once

#include <cstdint>
#include <string>

#include "common/command_words.h"

// Carries the command out with its handler; a command without a command word
// gets the unknown-command line. Runs on the server thread.
void DispatchCommand(const Command& command);

// RUN: starts the program named by the first 256 characters of `argument` and
// logs the run line.
void RunProgram(const std::string& argument);

// The message of a platform error code as the run line shows it.
const char* RunErrorMessage(uint32_t errorCode);
