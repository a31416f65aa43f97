# Debian packages, made with `cpack -G DEB` in the build directory:
#   framla   the desktop program (/usr/bin/framla starts it in the operator's
#            working directory), the capture tool commandcam, the menu entry
#            and the icon; depends on the tools and fonts it runs with
#   framaid  the server program and a commented example framaid.conf
# The install rules below belong to the packages' components only
# (EXCLUDE_FROM_ALL): a plain `cmake --install` installs what it always did.
include(GNUInstallDirs)

# The build: the commit the program was built from, for --version.
execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} describe --always --dirty
    OUTPUT_VARIABLE FRAMLA_BUILD_ID OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT FRAMLA_BUILD_ID)
    set(FRAMLA_BUILD_ID unknown)
endif()
string(TIMESTAMP FRAMLA_BUILD_DATE "%Y-%m-%d" UTC)
set(FRAMLA_PACKAGE_VERSION 3.20)

set(components server)
# framaid --version answers as framla --version does.
target_compile_definitions(framaid PRIVATE FRAMLA_VERSION="${FRAMLA_PACKAGE_VERSION}"
    FRAMLA_BUILD="${FRAMLA_BUILD_DATE} ${FRAMLA_BUILD_ID}")
if(TARGET framla)
    target_compile_definitions(framla PRIVATE
        FRAMLA_BUILD="${FRAMLA_BUILD_DATE} ${FRAMLA_BUILD_ID}")
    install(TARGETS framla RUNTIME DESTINATION ${CMAKE_INSTALL_LIBDIR}/framla
        COMPONENT desktop EXCLUDE_FROM_ALL)
    install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/framla.sh DESTINATION ${CMAKE_INSTALL_BINDIR}
        RENAME framla COMPONENT desktop EXCLUDE_FROM_ALL)
    install(TARGETS commandcam RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT desktop EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/framla.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/framla.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps COMPONENT desktop EXCLUDE_FROM_ALL)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/framla
        COMPONENT desktop EXCLUDE_FROM_ALL)
    list(PREPEND components desktop)
endif()

# The example configuration is the one `framaid --setup` writes, so that the
# two never differ.
set(example_dir ${PROJECT_BINARY_DIR}/packaging/example-db)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/framaid.conf
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${example_dir}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${example_dir}
    COMMAND framaid --setup ${example_dir} > ${PROJECT_BINARY_DIR}/packaging/setup.log
    COMMAND ${CMAKE_COMMAND} -E copy ${example_dir}/framaid.conf ${PROJECT_BINARY_DIR}/packaging/framaid.conf
    DEPENDS framaid
    COMMENT "Writing the example framaid.conf")
add_custom_target(framaid_example_conf ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/framaid.conf)
install(TARGETS framaid RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT server EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_BINARY_DIR}/packaging/framaid.conf
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/framaid/examples COMPONENT server EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/framaid/README.md
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/framaid COMPONENT server EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME framla)
set(CPACK_PACKAGE_VENDOR "Tillsmith Solutions CC")
set(CPACK_PACKAGE_VERSION ${FRAMLA_PACKAGE_VERSION})
set(CPACK_PACKAGE_CONTACT "Tillsmith Solutions CC <support@tillsmith.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME framla)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION graphics)
# Beside the libraries dpkg-shlibdeps finds (Qt 6's, libemf2svg, the C++
# runtime): the tools the program runs (PuTTY from 0.77 on, which reads the
# password from a file with -pwfile), the faces its window is laid out for,
# and Qt's platform plugins and its SQLite driver (the journal), which no binary links.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS
    "putty-tools (>= 0.77), imagemagick, ffmpeg, fonts-liberation, qt6-qpa-plugins, libqt6sql6-sqlite")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION
    "Files jewellery product photographs into a shop's database
 Framla captures or picks a product photo, crops and adjusts it, shows the
 record it belongs to and the picture already on file, and puts a resized
 JPEG on the shop's server over SSH (PuTTY's pscp and plink). The server
 needs the framaid package.")
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME framaid)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION database)
set(CPACK_DEBIAN_SERVER_DESCRIPTION
    "Server side of Framla: answers look-ups in the shop's dBase tables
 framaid runs on the shop's database server. Framla starts it over SSH; it
 reads the dBase tables and writes a small reply file. framaid --setup DBPATH
 prepares a database directory; framaid --check DBPATH reports what it lacks.")
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION "${CPACK_DEBIAN_DESKTOP_DESCRIPTION}")
set(CPACK_COMPONENT_SERVER_DESCRIPTION "${CPACK_DEBIAN_SERVER_DESCRIPTION}")
include(CPack)
