# One interface target carries the language standard, the warnings and the
# Qt defines every target of the project is built with.
add_library(velocitrix_options INTERFACE)
target_compile_features(velocitrix_options INTERFACE cxx_std_20)
target_compile_options(velocitrix_options INTERFACE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wno-unused-parameter>)
target_compile_definitions(velocitrix_options INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
    QT_NO_CAST_FROM_BYTEARRAY QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH QT_NO_KEYWORDS _FILE_OFFSET_BITS=64)

if(VELOCITRIX_SANITIZE)
    string(REPLACE ";" "," _vx_san "${VELOCITRIX_SANITIZE}")
    target_compile_options(velocitrix_options INTERFACE
        -fsanitize=${_vx_san} -fno-omit-frame-pointer -fno-sanitize-recover=all -g)
    target_link_options(velocitrix_options INTERFACE -fsanitize=${_vx_san})
endif()
