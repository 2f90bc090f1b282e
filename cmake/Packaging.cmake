# Installation and the Debian packages (CPack):
#   brindlewick-server-manager  bwctl, bwconsole with its snap-in, manuals, bash completion,
#                               the desktop entry, AppStream metainfo and icons
#   sqlstandin                  the stand-in, its manual and a systemd user unit
# scripts/package builds them; tests/packaging checks them.
include(GNUInstallDirs)

target_compile_definitions(bwctl PRIVATE BW_VERSION="${PROJECT_VERSION}")
if(TARGET bwconsole)
  target_compile_definitions(bwconsole PRIVATE BW_VERSION="${PROJECT_VERSION}")
endif()
if(TARGET sqlstandin)
  target_compile_definitions(sqlstandin PRIVATE SQLSTANDIN_VERSION="${PROJECT_VERSION}")
endif()

set(bw_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)

# Manual pages go compressed, as Debian's policy wants them.
function(bw_install_manual page component)
  set(out ${CMAKE_BINARY_DIR}/packaging/man/${page}.gz)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/man
    COMMAND gzip -9n -c ${bw_packaging_dir}/man/${page} > ${out}
    DEPENDS ${bw_packaging_dir}/man/${page})
  add_custom_target(manual_${page} ALL DEPENDS ${out})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

# Debian wants its changelog compressed beside the copyright.
function(bw_install_package_docs package component)
  set(log ${CMAKE_BINARY_DIR}/packaging/${package}/changelog.Debian.gz)
  add_custom_command(
    OUTPUT ${log}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/${package}
    # Two -e, no blanks: the command line goes to the shell unquoted.
    COMMAND sed -e s/@PACKAGE@/${package}/ -e s/@VERSION@/${PROJECT_VERSION}/
            ${bw_packaging_dir}/debian/changelog.in | gzip -9n > ${log}
    DEPENDS ${bw_packaging_dir}/debian/changelog.in)
  add_custom_target(changelog_${package} ALL DEPENDS ${log})
  install(FILES ${bw_packaging_dir}/debian/copyright ${log}
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/../${package} COMPONENT ${component})
endfunction()

# The console's menu entry, its AppStream description and its icon: scalable,
# and rendered to the usual hicolor sizes for desktops that want pixels.
set(bw_app_id org.brindlewick.ServerManager)
function(bw_install_desktop_entry)
  set(desktop ${bw_packaging_dir}/desktop)
  install(FILES ${desktop}/${bw_app_id}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT manager)
  configure_file(${desktop}/${bw_app_id}.metainfo.xml
                 ${CMAKE_BINARY_DIR}/packaging/${bw_app_id}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${bw_app_id}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT manager)
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${desktop}/${bw_app_id}.svg DESTINATION ${icons}/scalable/apps COMPONENT manager)
  set(pngs)
  foreach(size 16 24 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/packaging/icons/${size}/${bw_app_id}.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}
      COMMAND bw_render_icon ${desktop}/${bw_app_id}.svg ${size} ${png}
      DEPENDS ${desktop}/${bw_app_id}.svg bw_render_icon)
    list(APPEND pngs ${png})
    install(FILES ${png} DESTINATION ${icons}/${size}x${size}/apps COMPONENT manager)
  endforeach()
  add_custom_target(desktop_icons ALL DEPENDS ${pngs})
endfunction()

install(TARGETS bwctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT manager)
bw_install_manual(bwctl.1 manager)
install(FILES ${bw_packaging_dir}/completion/bwctl
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT manager)
bw_install_package_docs(brindlewick-server-manager manager)
if(TARGET bwconsole)
  install(TARGETS bwconsole RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT manager)
  bw_install_manual(bwconsole.1 manager)
  bw_install_desktop_entry()
endif()
if(TARGET bwadmin)
  install(TARGETS bwadmin LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/brindlewick COMPONENT manager)
endif()

if(TARGET sqlstandin)
  install(TARGETS sqlstandin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT standin)
  bw_install_manual(sqlstandin.1 standin)
  bw_install_package_docs(sqlstandin standin)
  install(FILES ${bw_packaging_dir}/systemd/sqlstandin.service
          DESTINATION lib/systemd/user COMPONENT standin)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlewick-server-manager)
set(CPACK_PACKAGE_VENDOR "Brindlewick Server Manager developers")
set(CPACK_PACKAGE_CONTACT "Brindlewick Server Manager developers <developers@brindlewick.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL manager standin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_MANAGER_PACKAGE_NAME brindlewick-server-manager)
set(CPACK_DEBIAN_MANAGER_PACKAGE_DEPENDS "unixodbc, tdsodbc")
set(CPACK_COMPONENT_MANAGER_DESCRIPTION
    "administer Brindlewick document archives on SQL Server\nBrindlewick Server Manager registers SQL Servers and creates, attaches,\ndetaches, renames and converts Brindlewick archives, manages their logins,\nusers and full-text indexes. bwctl runs every command from a shell.")
set(CPACK_DEBIAN_STANDIN_PACKAGE_NAME sqlstandin)
set(CPACK_DEBIAN_STANDIN_PACKAGE_SECTION database)
set(CPACK_COMPONENT_STANDIN_DESCRIPTION
    "SQL Server 7.0/2000 stand-in for Brindlewick Server Manager\nsqlstandin speaks TDS to SQL Server clients and keeps each database in an\nSQLite file. It implements what Brindlewick Server Manager uses, for trying\nand testing it without a SQL Server.")
include(CPack)
