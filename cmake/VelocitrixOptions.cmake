# How our targets are built.
#
# velocitrix_options carries what code that includes our headers must share with
# us, so the libraries link it PUBLIC: the language standard, and the large-file
# offsets (off_t, ino_t and struct stat appear in platform/ headers; their sizes
# must agree). Everything else is our own taste and stays on our targets alone:
# velocitrix_build_options (warnings, the strict Qt defines, sanitizers) is
# linked PRIVATE to every target this project defines, by
# velocitrix_use_build_options() at the end of the top-level CMakeLists.txt. A
# project that adds us with add_subdirectory() keeps its signals, emit and
# QString s = "ascii".
add_library(velocitrix_options INTERFACE)
target_compile_features(velocitrix_options INTERFACE cxx_std_20)
target_compile_definitions(velocitrix_options INTERFACE _FILE_OFFSET_BITS=64)

add_library(velocitrix_build_options INTERFACE)
target_compile_options(velocitrix_build_options INTERFACE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wno-unused-parameter>)
if(VELOCITRIX_WERROR)
    target_compile_options(velocitrix_build_options INTERFACE $<$<CXX_COMPILER_ID:GNU,Clang>:-Werror>)
endif()
target_compile_definitions(velocitrix_build_options INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
    QT_NO_CAST_FROM_BYTEARRAY QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH QT_NO_KEYWORDS)

if(VELOCITRIX_SANITIZE)
    string(REPLACE ";" "," _vx_san "${VELOCITRIX_SANITIZE}")
    target_compile_options(velocitrix_build_options INTERFACE
        -fsanitize=${_vx_san} -fno-omit-frame-pointer -fno-sanitize-recover=all -g)
    # Linked PRIVATE to a static library this still reaches the program that
    # links it, which needs the sanitizers' run-time libraries.
    target_link_options(velocitrix_build_options INTERFACE -fsanitize=${_vx_san})
endif()

# Links velocitrix_build_options PRIVATE to every program and library defined in
# dir and its subdirectories, so that no target of ours is left out and none of
# it leaks. Interface, imported and custom targets have nothing to compile.
# Modules are left alone: the tests' failure injector is preloaded into other
# processes, where a sanitizer's run-time library must not come with it.
function(velocitrix_use_build_options dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY)$")
            target_link_libraries(${target} PRIVATE velocitrix_build_options)
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        velocitrix_use_build_options(${subdir})
    endforeach()
endfunction()
