# What a system-wide installation holds besides the executable (its icon is installed by
# src/ui): the desktop entry and AppStream metadata, the manual page, and the copyright and
# changelog files Debian wants. `cpack -G DEB` in the build folder makes the Debian package of them.
# Configure packages with -DCMAKE_INSTALL_PREFIX=/usr: the desktop entry names the installed path.
include(GNUInstallDirs)

find_program(SAYLOOM_HELP2MAN help2man REQUIRED)
find_program(SAYLOOM_GZIP gzip REQUIRED)

set(generated ${PROJECT_BINARY_DIR}/data)
file(MAKE_DIRECTORY ${generated})

# The changelog is the release history: its first entry gives the version, which must be this
# project's, and the release date the AppStream metadata shows.
set(SAYLOOM_CHANGELOG ${PROJECT_SOURCE_DIR}/data/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SAYLOOM_CHANGELOG})
file(STRINGS ${SAYLOOM_CHANGELOG} changelog_head LIMIT_COUNT 1)
file(STRINGS ${SAYLOOM_CHANGELOG} changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^sayloom \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "data/debian/changelog: the first entry is not version ${PROJECT_VERSION}")
endif()
if(NOT changelog_trailer MATCHES ", ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "data/debian/changelog: no date in the first entry's trailer line")
endif()
set(day ${CMAKE_MATCH_1})
set(year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months "${CMAKE_MATCH_2}" month)
math(EXPR month "${month} + 1" OUTPUT_FORMAT DECIMAL)
if(month LESS 10)
    set(month 0${month})
endif()
set(SAYLOOM_RELEASE_DATE ${year}-${month}-${day})

configure_file(${PROJECT_SOURCE_DIR}/data/ai.sayloom.Sayloom.metainfo.xml.in
    ${generated}/ai.sayloom.Sayloom.metainfo.xml @ONLY)

# The entry the program writes for itself from a build tree, for the installed path.
add_custom_command(OUTPUT ${generated}/sayloom.desktop
    COMMAND sayloom_desktop_entry ${CMAKE_INSTALL_FULL_BINDIR}/sayloom ${generated}/sayloom.desktop
    DEPENDS sayloom_desktop_entry
    COMMENT "Generating sayloom.desktop"
    VERBATIM)

# The manual page is the program's own --help, so that it never drifts from it.
add_custom_command(OUTPUT ${generated}/sayloom.1.gz
    COMMAND ${SAYLOOM_HELP2MAN} --no-info --section=1
        "--name=push-to-talk dictation for the Linux desktop"
        --output=${generated}/sayloom.1 $<TARGET_FILE:sayloom>
    COMMAND ${SAYLOOM_GZIP} -9nf ${generated}/sayloom.1
    DEPENDS sayloom
    COMMENT "Generating the manual page from sayloom --help"
    VERBATIM)

add_custom_command(OUTPUT ${generated}/changelog.gz
    COMMAND ${SAYLOOM_GZIP} -9nc ${SAYLOOM_CHANGELOG} > ${generated}/changelog.gz
    DEPENDS ${SAYLOOM_CHANGELOG})

add_custom_target(sayloom_installed_data ALL
    DEPENDS ${generated}/sayloom.desktop ${generated}/sayloom.1.gz ${generated}/changelog.gz)

install(FILES ${generated}/sayloom.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${generated}/ai.sayloom.Sayloom.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${generated}/sayloom.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright ${generated}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sayloom)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sayloom)
set(CPACK_PACKAGE_VENDOR Sayloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Sayloom <support@sayloom.ai>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "push-to-talk dictation for the Linux desktop")
# The extended description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Hold your hotkey, speak, and let go: Sayloom records the microphone, sends
the recording to the Sayloom transcription service, and puts the text into
the focused field of the application in front. It lives in the system tray
of an X11 desktop session and needs a Sayloom account.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${SAYLOOM_WEBSITE_BASE_URL})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Libraries from what the executable links (dpkg-shlibdeps); xdg-utils registers the URL handler
# and opens the browser.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS xdg-utils)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
