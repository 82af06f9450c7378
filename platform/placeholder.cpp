// Compiled into the libraries of platform areas that have no back end yet.
