# Layers point down only: app -> commands -> text, scanner, settings -> platform.
# Fails, naming each file and line, when a file of a lower layer includes one of a
# higher layer (or of the command-line program).
#   cmake -DSOURCE_DIR=<repository> -P CheckLayers.cmake

if(NOT SOURCE_DIR)
    message(FATAL_ERROR "Set SOURCE_DIR to the repository")
endif()

# Each folder and the folders its files must not include from.
set(above_platform text scanner settings commands app cli)
set(above_text commands app cli)
set(above_scanner commands app cli)
set(above_settings commands app cli)
set(above_commands app cli)

set(violations "")
set(checked 0)
foreach(layer platform text scanner settings commands)
    file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
         ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp ${SOURCE_DIR}/${layer}/*.c)
    list(JOIN above_${layer} "|" forbidden)
    foreach(file IN LISTS files)
        math(EXPR checked "${checked} + 1")
        file(STRINGS ${SOURCE_DIR}/${file} includes
             REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](${forbidden})/")
        foreach(line IN LISTS includes)
            string(STRIP "${line}" line)
            string(APPEND violations "\n  ${file}: ${line}")
        endforeach()
    endforeach()
endforeach()

if(checked EQUAL 0)
    message(FATAL_ERROR "No sources found below ${SOURCE_DIR}")
endif()
if(violations)
    message(FATAL_ERROR "Lower layers include higher ones:${violations}")
endif()
message(STATUS "${checked} files of platform/, text/, scanner/, settings/ and commands/ include nothing above them")
