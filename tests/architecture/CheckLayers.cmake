# Layers point down only: app -> commands -> text, scanner, settings -> platform.
# Fails, naming each file and line, when
#  - a file of a lower layer includes one of a higher layer (or of the
#    command-line program);
#  - cli/ includes app/, or app/ includes cli/ (two programs side by side);
#  - a file outside platform/ includes a POSIX or Linux system header (platform/
#    is the only place that knows the operating system);
#  - a file under settings/ includes a Qt Gui or Qt Widgets header (settings/
#    needs only Qt Core, so that velocitrix-cli reads them without a window).
#   cmake -DSOURCE_DIR=<repository> [-DQT_GUI_INCLUDE_DIRS=<dirs>] -P CheckLayers.cmake
# QT_GUI_INCLUDE_DIRS: the QtGui and QtWidgets include folders, to know their
# headers by name (<QWidget>); without it only <QtGui/...>, <QtWidgets/...> and
# the module headers are recognised.

if(NOT SOURCE_DIR)
    message(FATAL_ERROR "Set SOURCE_DIR to the repository")
endif()

set(include_line "^[ \t]*#[ \t]*include[ \t]*")

# Appends to violations_<rule> each line of file that matches regex.
function(check_lines rule file regex)
    file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "${include_line}${regex}")
    set(found "${violations_${rule}}")
    foreach(line IN LISTS lines)
        string(STRIP "${line}" line)
        string(APPEND found "\n  ${file}: ${line}")
    endforeach()
    set(violations_${rule} "${found}" PARENT_SCOPE)
endfunction()

# The sources of a folder, relative to SOURCE_DIR.
function(sources_of folder out)
    file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
         ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.c)
    set(${out} ${files} PARENT_SCOPE)
endfunction()

# Each folder and the folders its files must not include from.
set(above_platform text scanner settings commands app cli)
set(above_text commands app cli)
set(above_scanner commands app cli)
set(above_settings commands app cli)
set(above_commands app cli)
set(beside_app cli)
set(beside_cli app)

# System headers only platform/ may include: POSIX and Linux interfaces beyond
# the C and C++ standard libraries.
set(system_headers
    "unistd\\.h" "fcntl\\.h" "sys/[^>]*" "dirent\\.h" "signal\\.h" "csignal" "poll\\.h"
    "linux/[^>]*" "asm/[^>]*" "pthread\\.h" "ftw\\.h" "fts\\.h" "sched\\.h" "spawn\\.h"
    "termios\\.h" "pwd\\.h" "grp\\.h" "mntent\\.h" "utime\\.h" "semaphore\\.h" "dlfcn\\.h"
    "glob\\.h" "fnmatch\\.h" "libgen\\.h" "syslog\\.h" "langinfo\\.h" "iconv\\.h" "aio\\.h"
    "mqueue\\.h" "netdb\\.h" "netinet/[^>]*" "arpa/[^>]*" "acl/[^>]*" "attr/[^>]*")
list(JOIN system_headers "|" system_regex)

set(checked 0)
foreach(folder platform text scanner settings commands app cli)
    sources_of(${folder} files)
    foreach(file IN LISTS files)
        math(EXPR checked "${checked} + 1")
        if(DEFINED above_${folder})
            list(JOIN above_${folder} "|" forbidden)
            check_lines(layers ${file} "[\"<](${forbidden})/")
        endif()
        if(DEFINED beside_${folder})
            list(JOIN beside_${folder} "|" forbidden)
            check_lines(programs ${file} "[\"<](${forbidden})/")
        endif()
        if(NOT folder STREQUAL "platform")
            check_lines(system ${file} "<(${system_regex})>")
        endif()
        if(folder STREQUAL "settings")
            check_lines(widgets ${file} "<Qt(Gui|Widgets)(/[^>]*)?>")
            file(STRINGS ${SOURCE_DIR}/${file} qt_lines REGEX "${include_line}<Q[A-Za-z0-9_]*>")
            foreach(line IN LISTS qt_lines)
                string(REGEX REPLACE ".*<(Q[A-Za-z0-9_]*)>.*" "\\1" header "${line}")
                if(header MATCHES "^Qt(Gui|Widgets)$")
                    continue() # reported above
                endif()
                foreach(dir IN LISTS QT_GUI_INCLUDE_DIRS)
                    if(EXISTS ${dir}/${header})
                        string(STRIP "${line}" line)
                        string(APPEND violations_widgets "\n  ${file}: ${line}")
                        break()
                    endif()
                endforeach()
            endforeach()
        endif()
    endforeach()
endforeach()

if(checked EQUAL 0)
    message(FATAL_ERROR "No sources found below ${SOURCE_DIR}")
endif()
set(report "")
if(violations_layers)
    string(APPEND report "\nLower layers include higher ones:${violations_layers}")
endif()
if(violations_programs)
    string(APPEND report "\nThe window and velocitrix-cli include each other:${violations_programs}")
endif()
if(violations_system)
    string(APPEND report "\nSystem headers outside platform/:${violations_system}")
endif()
if(violations_widgets)
    string(APPEND report "\nQt Gui or Widgets under settings/:${violations_widgets}")
endif()
if(report)
    message(FATAL_ERROR "${report}")
endif()
message(STATUS "${checked} files: no layer includes one above it, app/ and cli/ stay apart, "
               "only platform/ includes system headers, settings/ needs no Qt Gui or Widgets")
