# Runs at install time (from cmake_install.cmake), so that every path it writes follows the prefix
# given then (`cmake --install build --prefix X`, or the package's /opt/quorix), not the one the
# build was configured with. Expects:
#   QUORIX_DESKTOP_LAYOUT    "prefix": entry and icon below the prefix, naming the program by its
#                            full path; "system": entry and icon in /usr/share where desktop menus
#                            look, and a `quorix` command in /usr/bin, so both are named bare.
#   QUORIX_DESKTOP_TEMPLATE  the desktop entry with @QUORIX_DESKTOP_EXEC@ and @QUORIX_DESKTOP_ICON@
#   QUORIX_ICON_FILE         the scalable icon
#   QUORIX_ICON_THEME        the folder of the rendered PNG sizes, <N>x<N>/apps/quorix.png

# A path as the Exec key's single argument: quoted and escaped where it holds a reserved character,
# '%' doubled so that it is not read as a field code.
function(quorix_desktop_exec path out)
    if(path MATCHES "[\n\r]")
        message(FATAL_ERROR "The install folder name holds a line break: ${path}")
    endif()
    string(REPLACE "%" "%%" value "${path}")
    if(NOT value MATCHES "^[A-Za-z0-9/._+,:@=%-]*$")
        # Inside double quotes, '"', '`', '$' and '\' take a backslash...
        string(REPLACE "\\" "\\\\" value "${value}")
        string(REPLACE "\"" "\\\"" value "${value}")
        string(REPLACE "`" "\\`" value "${value}")
        string(REPLACE "$" "\\$" value "${value}")
        # ...and every backslash is escaped once more as a string value.
        string(REPLACE "\\" "\\\\" value "\"${value}\"")
    endif()
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# A path as a plain string value: only the backslash is escaped.
function(quorix_desktop_string path out)
    if(path MATCHES "[\n\r]")
        message(FATAL_ERROR "The install folder name holds a line break: ${path}")
    endif()
    string(REPLACE "\\" "\\\\" value "${path}")
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# Writes a generated file straight to its place, as file(INSTALL) would: below DESTDIR, readable by
# all whatever the umask, announced and listed in the install manifest.
macro(quorix_install_generated path)
    message(STATUS "Installing: $ENV{DESTDIR}${path}")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "$ENV{DESTDIR}${path}")
endmacro()

set(icon_subdir share/icons/hicolor/scalable/apps)

if(QUORIX_DESKTOP_LAYOUT STREQUAL "prefix")
    set(data_root "${CMAKE_INSTALL_PREFIX}")
    quorix_desktop_exec("${CMAKE_INSTALL_PREFIX}/quorix" QUORIX_DESKTOP_EXEC)
    quorix_desktop_string("${CMAKE_INSTALL_PREFIX}/${icon_subdir}/quorix.svg" QUORIX_DESKTOP_ICON)
elseif(QUORIX_DESKTOP_LAYOUT STREQUAL "system")
    set(data_root /usr)
    set(QUORIX_DESKTOP_EXEC quorix)
    set(QUORIX_DESKTOP_ICON quorix)
    # A relative link, so that the command also works in an unpacked copy of the package.
    file(RELATIVE_PATH target /usr/bin "${CMAKE_INSTALL_PREFIX}/quorix")
    file(MAKE_DIRECTORY "$ENV{DESTDIR}/usr/bin")
    quorix_install_generated(/usr/bin/quorix)
    file(CREATE_LINK "${target}" "$ENV{DESTDIR}/usr/bin/quorix" SYMBOLIC)
else()
    message(FATAL_ERROR "Unknown desktop layout '${QUORIX_DESKTOP_LAYOUT}'")
endif()

set(entry "${data_root}/share/applications/quorix.desktop")
quorix_install_generated("${entry}")
file(READ "${QUORIX_DESKTOP_TEMPLATE}" template)
file(CONFIGURE OUTPUT "$ENV{DESTDIR}${entry}" CONTENT "${template}" @ONLY)
file(CHMOD "$ENV{DESTDIR}${entry}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(INSTALL DESTINATION "${data_root}/${icon_subdir}" TYPE FILE FILES "${QUORIX_ICON_FILE}")
if(NOT EXISTS "${QUORIX_ICON_THEME}")
    message(FATAL_ERROR "No rendered icons in ${QUORIX_ICON_THEME}: build the quorix_icons target")
endif()
file(INSTALL DESTINATION "${data_root}/share/icons" TYPE DIRECTORY FILES "${QUORIX_ICON_THEME}")
