# Placeholder until the keyboard back ends exist.
podiant_library(platform_keyboard placeholder.cpp)
