# The Debian package, ampbench_<version>_<arch>.deb, built by CPack from the install rules
# (scripts/build-package, `make package`). Dependencies come from dpkg-shlibdeps, so they follow
# whatever the programs link; Qt's platform plugins are loaded at run time and named by hand.
set(AMP_PACKAGE_MAINTAINER "ampbench maintainers <maintainers@users.noreply.c-seed-dff463e4.example>"
    CACHE STRING "The package's Maintainer field")

# What Debian wants in every package's documents: the copyright and a changelog of its own.
# The changelog's date is the last commit's, so that rebuilding the same sources gives the same file.
execute_process(COMMAND git log -1 --format=%cD WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                OUTPUT_VARIABLE AMP_PACKAGE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT AMP_PACKAGE_DATE)
    string(TIMESTAMP AMP_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()
configure_file(${PROJECT_SOURCE_DIR}/data/package/changelog.in ${CMAKE_BINARY_DIR}/package/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/package/changelog.gz
    COMMAND ${AMP_GZIP} -9nkf ${CMAKE_BINARY_DIR}/package/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/package/changelog
    VERBATIM)
add_custom_target(amp_package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/package/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/data/package/copyright ${CMAKE_BINARY_DIR}/package/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ampbench)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bench test utility for the Quorvex and Pellion EEG amplifiers")
set(CPACK_PACKAGE_DESCRIPTION "Front panels for bench and service technicians testing the Quorvex and
Pellion USB EEG amplifiers: power, range, mode, calibration signal and
switches as on the unit, live signals, electrode impedances and the unit's
versions and serial number. Also ampsim, a simulated amplifier, and
ampinfo, which shows the amplifiers the programs can open. Without a
display a panel is served over VNC on the loopback address. A udev rule
gives the user at the seat access to the amplifiers.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${AMP_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The dialog font: without it the panels' captions wrap and run together.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-extra")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tigervnc-viewer | vnc-viewer")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/data/package/postinst ${PROJECT_SOURCE_DIR}/data/package/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
