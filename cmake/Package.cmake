# What `cmake --install` puts where, and the Debian package built from it by CPack
# (scripts/package.sh). Components: "station" is what the package carries; "lab" (the
# simulated element) and "capability" (setcap at install time) only `cmake --install`.
set(BRIVOLTE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/brivolte-nms)
set(BRIVOLTE_METAINFO_ID com.quorvane.BrivolteNMS)
set(BRIVOLTE_MAINTAINER "Quorvane Broadcast <support@quorvane.example>")
# Where the project will be published; the .example name cannot point anywhere else
# before then.
set(BRIVOLTE_HOMEPAGE "https://brivolte.quorvane.example")
set(BRIVOLTE_PACKAGE_RELEASE 1)
string(REGEX REPLACE "^Copyright " "" BRIVOLTE_COPYRIGHT_HOLDER "${BRIVOLTE_COPYRIGHT}")
set(generated ${CMAKE_CURRENT_BINARY_DIR}/generated)

install(TARGETS brivolte-nms brivolte-nmsctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT station)
# The simulator answers paging as an element would: on a site laptop it would show a
# station (and every other station on the link) an element that is not there. It
# serves the test network of a clone, so it stays out of the package.
install(TARGETS brivolte-element-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lab)
install(FILES resources/brivolte-nms.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT station)
install(FILES resources/brivolte-nms.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        COMPONENT station)
configure_file(resources/${BRIVOLTE_METAINFO_ID}.metainfo.xml.in
               ${generated}/${BRIVOLTE_METAINFO_ID}.metainfo.xml @ONLY)
install(FILES ${generated}/${BRIVOLTE_METAINFO_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        COMPONENT station)

# The changelog is history, written by hand; the package's version must be its latest.
file(STRINGS packaging/deb/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^brivolte-nms \\(${PROJECT_VERSION}-${BRIVOLTE_PACKAGE_RELEASE}\\) ")
    message(FATAL_ERROR "packaging/deb/changelog does not start with version "
                        "${PROJECT_VERSION}-${BRIVOLTE_PACKAGE_RELEASE}: ${changelog_head}")
endif()
configure_file(packaging/deb/copyright.in ${generated}/copyright @ONLY)
install(FILES ${generated}/copyright DESTINATION ${BRIVOLTE_DOCDIR} COMPONENT station)

# Manual pages and the changelog go in gzipped, without a time stamp (reproducible).
set(gzipped)
foreach(page brivolte-nms brivolte-nmsctl)
    configure_file(docs/man/${page}.1.in ${generated}/man/${page}.1 @ONLY)
    list(APPEND gzipped ${generated}/man/${page}.1)
endforeach()
configure_file(packaging/deb/changelog ${generated}/changelog.Debian COPYONLY)
list(APPEND gzipped ${generated}/changelog.Debian)
set(gzipped_outputs)
foreach(file IN LISTS gzipped)
    add_custom_command(OUTPUT ${file}.gz
                       COMMAND gzip -9nkf ${file}
                       DEPENDS ${file}
                       VERBATIM)
    list(APPEND gzipped_outputs ${file}.gz)
endforeach()
add_custom_target(brivolte-docs ALL DEPENDS ${gzipped_outputs})
install(FILES ${generated}/man/brivolte-nms.1.gz ${generated}/man/brivolte-nmsctl.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT station)
install(FILES ${generated}/changelog.Debian.gz DESTINATION ${BRIVOLTE_DOCDIR} COMPONENT station)

# A normal user pings through a raw socket only with CAP_NET_RAW. The package does the
# same from its postinst, since a package's files carry no capabilities.
set(BRIVOLTE_CAP_PROGRAMS)
foreach(program brivolte-nms brivolte-nmsctl)
    install(CODE "execute_process(COMMAND setcap cap_net_raw+ep \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\" RESULT_VARIABLE rc ERROR_QUIET)
if(NOT rc EQUAL 0)
  message(STATUS \"setcap cap_net_raw on ${program} failed; ping needs ping_group_range or root\")
endif()" COMPONENT capability)
    list(APPEND BRIVOLTE_CAP_PROGRAMS /usr/${CMAKE_INSTALL_BINDIR}/${program})
endforeach()
list(JOIN BRIVOLTE_CAP_PROGRAMS " " BRIVOLTE_CAP_PROGRAMS)
configure_file(packaging/deb/postinst.in ${generated}/deb/postinst @ONLY)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brivolte-nms)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorvane Broadcast")
set(CPACK_PACKAGE_CONTACT "${BRIVOLTE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_CURRENT_BINARY_DIR};${PROJECT_NAME};station;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${BRIVOLTE_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRIVOLTE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${BRIVOLTE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libcap2-bin)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "network management station of a Brivolte studio-to-transmitter link
Broadcast engineers use it on site to find the encoders and decoders of a
Brivolte IP studio-to-transmitter link on the local network, keep them in a
small database, read, edit and send their network and audio configuration and
see it confirmed by the element, ping them, watch an encoder's audio level,
read the link statistics and adjust a decoder's SFN latency compensation.
.
The package carries the station window, brivolte-nms, and the command-line
tool brivolte-nmsctl, which does the same from scripts.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${generated}/deb/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
