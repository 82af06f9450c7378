# Placeholder until the profile back ends exist.
podiant_library(platform_profile placeholder.cpp)
