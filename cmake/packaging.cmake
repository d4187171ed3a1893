# What `cmake --install` installs, and the packages CPack makes of it
# (`cmake --build BUILD --target package`, or cpack in BUILD):
#   Linux    bin/VornBoot32 (and VornBootCheck), share/man/man8/*.8,
#            share/doc/vornboot/README.md and examples/*.conf;
#            the package vornboot_VERSION_amd64.deb, whose Depends
#            dpkg-shlibdeps reads off the executables.
#   Windows  VornBoot32.exe (and VornBootCheck.exe), README.txt and
#            examples/*.conf as CR LF text, in the folder vornboot-VERSION-win64
#            of the zip vornboot-VERSION-win64.zip (or -win32).
# Included when the root CMakeLists.txt has been read to its end, so that every
# program's target is known here.
include(GNUInstallDirs)

set(vornboot_programs VornBoot32)
if(TARGET VornBootCheck)
  list(APPEND vornboot_programs VornBootCheck)
endif()

if(WIN32)
  # Windows users read the texts with Notepad: CR LF line ends, a .txt name.
  set(texts ${CMAKE_BINARY_DIR}/dist)
  set(crlf_files)
  foreach(pair IN ITEMS "README.md:README.txt" "examples/annotated.conf:examples/annotated.conf"
                        "examples/demo.conf:examples/demo.conf")
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    add_custom_command(OUTPUT ${texts}/${to}
      COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/${from} -DOUT=${texts}/${to}
              -P ${CMAKE_SOURCE_DIR}/cmake/crlf.cmake
      DEPENDS ${CMAKE_SOURCE_DIR}/${from} ${CMAKE_SOURCE_DIR}/cmake/crlf.cmake
      COMMENT "CR LF copy of ${from}")
    list(APPEND crlf_files ${texts}/${to})
  endforeach()
  add_custom_target(vornboot_crlf_texts ALL DEPENDS ${crlf_files})

  install(TARGETS ${vornboot_programs} RUNTIME DESTINATION .)
  install(FILES ${texts}/README.txt DESTINATION .)
  install(FILES ${texts}/examples/annotated.conf ${texts}/examples/demo.conf
          DESTINATION examples)
else()
  set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/vornboot)
  install(TARGETS ${vornboot_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${VORNBOOT_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${docdir})
  file(GLOB examples CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/*.conf)
  install(FILES ${examples} DESTINATION ${docdir}/examples)
endif()

set(CPACK_PACKAGE_NAME vornboot)
set(CPACK_PACKAGE_VENDOR "VornBoot developers")
set(CPACK_PACKAGE_CONTACT "VornBoot developers <dev@vornboot.local>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "password boot manager in the master boot record")
set(CPACK_PACKAGE_DESCRIPTION
    "VornBoot is a boot manager that lives entirely in the master boot record
(sector 0) of a PC's first disk. Each system on the machine gets an entry and
a password; at boot the manager asks for a password, hides and activates
partitions as the chosen entry says and starts the system. VornBoot32
installs it from a configuration file, reads it back and removes it; it also
works on disk image files. Legacy BIOS boot only.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME vornboot-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME vornboot-${PROJECT_VERSION}-win32)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # vornboot_VERSION_ARCH.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends: from dpkg-shlibdeps
  # The executables without their symbol tables. (The Windows ones stay as
  # built and tested: a Release build strips them when it links.)
  set(CPACK_STRIP_FILES ON)
endif()
include(CPack)
