# Writes one service unit at install time, when the prefix is known (cpack installs under /usr whatever the
# build was configured with): the unit's own lines and the sandbox every KORVEL service shares.
# Set by the caller: unit, bindir (relative to the prefix), source_dir.
set(KORVEL_BINDIR "${CMAKE_INSTALL_PREFIX}/${bindir}")
file(READ "${source_dir}/sandbox.conf" KORVEL_SANDBOX)
string(STRIP "${KORVEL_SANDBOX}" KORVEL_SANDBOX)
set(unit_file "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/systemd/system/${unit}.service")
message(STATUS "Installing: ${unit_file}")
configure_file("${source_dir}/${unit}.service.in" "${unit_file}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${unit_file}")
