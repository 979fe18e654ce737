# The Debian packages: `zevlon` (the updater) and `zevlon-publikovat` (the publisher's
# tools), laid out by the Filesystem Hierarchy Standard. Included by the top-level list
# when ZEVLON_BALICEK is on; scripts/balicek.sh builds them with Debian's build flags.
include(GNUInstallDirs)
set(ZEVLON_BALICEK_DIR ${PROJECT_SOURCE_DIR}/balicek)
set(ZEVLON_BALICEK_VYSTUP ${PROJECT_BINARY_DIR}/balicek)

# Manual pages and changelogs are installed compressed, as Debian wants them; gzip -n keeps
# no name or time, so the same source gives the same bytes.
function(zevlon_gzip vstup vystup)
  add_custom_command(OUTPUT ${vystup}
                     COMMAND gzip -9nc ${vstup} > ${vystup}
                     DEPENDS ${vstup} VERBATIM)
endfunction()
set(ZEVLON_KOMPRIMOVANE "")
foreach(jazyk cs en)
  foreach(stranka zevlon zevlon-publikovat)
    set(vystup ${ZEVLON_BALICEK_VYSTUP}/man/${jazyk}/${stranka}.1.gz)
    zevlon_gzip(${PROJECT_SOURCE_DIR}/docs/man/${jazyk}/${stranka}.1 ${vystup})
    list(APPEND ZEVLON_KOMPRIMOVANE ${vystup})
  endforeach()
endforeach()
zevlon_gzip(${ZEVLON_BALICEK_DIR}/changelog ${ZEVLON_BALICEK_VYSTUP}/changelog.Debian.gz)
list(APPEND ZEVLON_KOMPRIMOVANE ${ZEVLON_BALICEK_VYSTUP}/changelog.Debian.gz)
# What an administrator must know before the upgrade (apt-listchanges shows it).
zevlon_gzip(${ZEVLON_BALICEK_DIR}/NEWS ${ZEVLON_BALICEK_VYSTUP}/NEWS.Debian.gz)
list(APPEND ZEVLON_KOMPRIMOVANE ${ZEVLON_BALICEK_VYSTUP}/NEWS.Debian.gz)
add_custom_target(zevlon_balicek_soubory ALL DEPENDS ${ZEVLON_KOMPRIMOVANE})

# The updater keeps its own name in a folder of its own; /usr/bin/zevlon leads to it.
install(TARGETS Zevlon RUNTIME DESTINATION lib/zevlon COMPONENT zevlon)
file(MAKE_DIRECTORY ${ZEVLON_BALICEK_VYSTUP})
file(CREATE_LINK ../lib/zevlon/Zevlon ${ZEVLON_BALICEK_VYSTUP}/zevlon SYMBOLIC)
install(FILES ${ZEVLON_BALICEK_VYSTUP}/zevlon DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT zevlon)
install(FILES ${ZEVLON_BALICEK_DIR}/Zevlon.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/zevlon
        COMPONENT zevlon)
# The logs' rotation is the administrator's to change: a conffile.
install(FILES ${ZEVLON_BALICEK_DIR}/logrotate DESTINATION /etc/logrotate.d RENAME zevlon
        COMPONENT zevlon)
# Why the maintainer scripts call systemctl (the units are the program's, not the package's).
install(FILES ${ZEVLON_BALICEK_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME zevlon COMPONENT zevlon)
install(TARGETS zevlon-publikovat RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT publikovat)
# The compiler's banners (.comment, also from the C runtime's start files) are of no use in
# an installed program and cpack's strip keeps them: they go once the program is installed.
foreach(program lib/zevlon/Zevlon:zevlon ${CMAKE_INSTALL_BINDIR}/zevlon-publikovat:publikovat)
  string(REPLACE ":" ";" dvojice ${program})
  list(GET dvojice 0 cesta)
  list(GET dvojice 1 komponenta)
  install(CODE "execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${cesta}\" COMMAND_ERROR_IS_FATAL ANY)"
          COMPONENT ${komponenta})
endforeach()

foreach(komponenta zevlon publikovat)
  if(komponenta STREQUAL "zevlon")
    set(balicek zevlon)
  else()
    set(balicek zevlon-publikovat)
  endif()
  install(FILES ${ZEVLON_BALICEK_VYSTUP}/man/cs/${balicek}.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/cs/man1 COMPONENT ${komponenta})
  install(FILES ${ZEVLON_BALICEK_VYSTUP}/man/en/${balicek}.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${komponenta})
  install(FILES ${ZEVLON_BALICEK_DIR}/copyright ${ZEVLON_BALICEK_VYSTUP}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${balicek} COMPONENT ${komponenta})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${ZEVLON_BALICEK_VYSTUP}/NEWS.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/zevlon COMPONENT zevlon)
# The office's cache in front of the update site, as an example to copy (README).
install(FILES ${ZEVLON_BALICEK_DIR}/zevlon-mezipamet.conf
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/zevlon/examples COMPONENT zevlon)
file(GLOB ZEVLON_OBRAZKY ${PROJECT_SOURCE_DIR}/docs/*.png)
install(FILES ${ZEVLON_OBRAZKY} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/zevlon/docs
        COMPONENT zevlon)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zevlon)
set(CPACK_PACKAGE_VENDOR Dunmor)
set(CPACK_PACKAGE_CONTACT "Zevlon developers <zevlon@dunmor.cz>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL zevlon publikovat)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE zevlon)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_ZEVLON_PACKAGE_NAME zevlon)
set(CPACK_DEBIAN_ZEVLON_PACKAGE_RECOMMENDS cron)
set(CPACK_DEBIAN_ZEVLON_PACKAGE_CONTROL_EXTRA
    ${ZEVLON_BALICEK_DIR}/postinst ${ZEVLON_BALICEK_DIR}/postrm ${ZEVLON_BALICEK_DIR}/conffiles)
set(CPACK_DEBIAN_ZEVLON_DESCRIPTION
    "online updater of the Dunmor Merko business suite
Zevlon renews the setup folders of a Merko profile from its update site:
each folder is rebuilt beside the live one from the site's snapshot (unchanged
files copied, changed files downloaded), then swapped in with a backup.
Releases signed with minisign are verified. It runs by hand (Qt windows on a
display, questions at a terminal) or unattended from cron. The user interface
is Czech.")
set(CPACK_DEBIAN_PUBLIKOVAT_PACKAGE_NAME zevlon-publikovat)
set(CPACK_DEBIAN_PUBLIKOVAT_DESCRIPTION
    "publisher's tools for the Zevlon update site
zevlon-publikovat publishes a release of Dunmor Merko as an update site for
the Zevlon updater, makes and uses the publisher's minisign key, serves a site
over HTTP for tests, and uploads a site to or mirrors it from an FTP server.
The user interface is Czech.")
include(CPack)
