# Placeholder until the serial back ends exist.
podiant_library(platform_serial placeholder.cpp)
