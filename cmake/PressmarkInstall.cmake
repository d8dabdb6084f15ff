# Installation and the Debian package.
#
#   bin/               slidepress, slidepress-cli, pmregsvr
#   lib/pressmark/     Slideport.OCX and the presentation application module
#   share/applications slidepress.desktop
#   share/icons/...    the program's icon
#
# `cmake --install` registers the installed modules by running the installed
# pmregsvr on them, so the installed program finds the installed control, not
# the build tree's. Installed by root (and PRESSMARK_CLASSES_REG not set), it
# registers them in the machine's class registry (/var/lib/pressmark/
# classes.reg, or PRESSMARK_MACHINE_CLASSES_REG), which every user sees;
# otherwise in the installing user's (PRESSMARK_CLASSES_REG or
# ~/.local/share/pressmark/classes.reg). When the install only stages files
# (DESTDIR set, as CPack does), the module paths are not final yet: the
# package registers them machine-wide in its postinst instead and removes
# them in its prerm.
include(GNUInstallDirs)

set(PRESSMARK_MODULE_DIR ${CMAKE_INSTALL_LIBDIR}/pressmark)

foreach(program slidepress slidepress-cli pmregsvr)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT pressmark)
  endif()
endforeach()

set(_pressmark_modules "")
foreach(module Slideport PressmarkImpress)
  if(TARGET ${module})
    install(TARGETS ${module} LIBRARY DESTINATION ${PRESSMARK_MODULE_DIR} COMPONENT pressmark)
    list(APPEND _pressmark_modules "$<TARGET_FILE_NAME:${module}>")
  endif()
endforeach()

if(TARGET slidepress)
  install(FILES ${PROJECT_SOURCE_DIR}/app/gui/resources/slidepress.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT pressmark)
  install(FILES ${PROJECT_SOURCE_DIR}/app/gui/resources/slidepress.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps COMPONENT pressmark)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT pressmark OPTIONAL)

if(TARGET pmregsvr AND _pressmark_modules)
  install(CODE "
    set(_modules \"${_pressmark_modules}\")
    if(DEFINED ENV{DESTDIR} AND NOT \"\$ENV{DESTDIR}\" STREQUAL \"\")
      message(STATUS \"Staged install: modules are registered by the package's postinst\")
    else()
      set(_prefix \"\${CMAKE_INSTALL_PREFIX}\")
      set(_scope \"\")
      execute_process(COMMAND id -u OUTPUT_VARIABLE _uid OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(_uid STREQUAL \"0\" AND \"\$ENV{PRESSMARK_CLASSES_REG}\" STREQUAL \"\")
        set(_scope /machine)
      endif()
      foreach(_module IN LISTS _modules)
        set(_path \"\${_prefix}/${PRESSMARK_MODULE_DIR}/\${_module}\")
        message(STATUS \"Registering: \${_path} \${_scope}\")
        execute_process(COMMAND \"\${_prefix}/${CMAKE_INSTALL_BINDIR}/pmregsvr\" /s \${_scope} \"\${_path}\"
                        RESULT_VARIABLE _result)
        if(NOT _result EQUAL 0)
          message(FATAL_ERROR \"pmregsvr could not register \${_path} (exit code \${_result})\")
        endif()
      endforeach()
    endif()" COMPONENT pressmark)
endif()

# The Debian package, from the same rules: `cpack -G DEB` in the build tree.
set(CPACK_PACKAGE_NAME pressmark)
set(CPACK_PACKAGE_VENDOR "Pressmark developers")
set(CPACK_PACKAGE_CONTACT "Pressmark developers <pressmark@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Convert presentations in batches to PDF or PostScript")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION office)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# LibreOffice is loaded by the presentation application module at run time
# and started as a process, so shlibdeps alone cannot see all of it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libreoffice-impress, libreoffice-core")
set(_pressmark_deb_scripts ${PROJECT_BINARY_DIR}/deb)
set(PRESSMARK_DEB_MODULES "")
foreach(module Slideport.OCX PressmarkImpress.so)
  string(APPEND PRESSMARK_DEB_MODULES " /usr/${PRESSMARK_MODULE_DIR}/${module}")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/postinst.in ${_pressmark_deb_scripts}/postinst @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/prerm.in ${_pressmark_deb_scripts}/prerm @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/postrm.in ${_pressmark_deb_scripts}/postrm @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${_pressmark_deb_scripts}/postinst;${_pressmark_deb_scripts}/prerm;${_pressmark_deb_scripts}/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
