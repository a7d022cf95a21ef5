# Run by `cmake --install`: fills the .pc's prefix with the install prefix of this run, made absolute and
# free of "." and ".." steps and of a trailing slash.
cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX NORMALIZE OUTPUT_VARIABLE MORVELAY_PC_PREFIX)
string(REGEX REPLACE "(.)/+$" "\\1" MORVELAY_PC_PREFIX "${MORVELAY_PC_PREFIX}")
configure_file("${MORVELAY_PC_TEMPLATE}" "${MORVELAY_PC_OUTPUT}" @ONLY)
