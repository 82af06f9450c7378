// A recording stand-in for the projector command loader: the arguments of
// every call, in order.
#pragma once

#include <string>
#include <vector>

struct ProjectorCommandsLoad {
  std::string section;
  std::string path;
};

std::vector<ProjectorCommandsLoad>& RecordedProjectorCommandLoads();
