# Placeholder until the desktop back ends exist.
podiant_library(platform_desktop placeholder.cpp)
