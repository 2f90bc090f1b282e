# Installation and the Debian packages (CPack):
#   brindlewick-server-manager  bwctl (and bwconsole with its snap-in once built), manuals,
#                               bash completion
#   sqlstandin                  the stand-in, its manual and a systemd user unit
# scripts/package builds them; tests/packaging checks them.
include(GNUInstallDirs)

target_compile_definitions(bwctl PRIVATE BW_VERSION="${PROJECT_VERSION}")
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
    COMMAND sed "s/@PACKAGE@/${package}/; s/@VERSION@/${PROJECT_VERSION}/"
            ${bw_packaging_dir}/debian/changelog.in | gzip -9n > ${log}
    DEPENDS ${bw_packaging_dir}/debian/changelog.in)
  add_custom_target(changelog_${package} ALL DEPENDS ${log})
  install(FILES ${bw_packaging_dir}/debian/copyright ${log}
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/../${package} COMPONENT ${component})
endfunction()

install(TARGETS bwctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT manager)
bw_install_manual(bwctl.1 manager)
install(FILES ${bw_packaging_dir}/completion/bwctl
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT manager)
bw_install_package_docs(brindlewick-server-manager manager)
if(TARGET bwconsole)
  install(TARGETS bwconsole RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT manager)
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
    "administer Brindlewick document archives on SQL Server\n Brindlewick Server Manager registers SQL Servers and creates, attaches,\n detaches, renames and converts Brindlewick archives, manages their logins,\n users and full-text indexes. bwctl runs every command from a shell.")
set(CPACK_DEBIAN_STANDIN_PACKAGE_NAME sqlstandin)
set(CPACK_DEBIAN_STANDIN_PACKAGE_SECTION database)
set(CPACK_COMPONENT_STANDIN_DESCRIPTION
    "SQL Server 7.0/2000 stand-in for Brindlewick Server Manager\n sqlstandin speaks TDS to SQL Server clients and keeps each database in an\n SQLite file. It implements what Brindlewick Server Manager uses, for trying\n and testing it without a SQL Server.")
include(CPack)
