# Standard, warnings and strict Qt defines shared by every target of the project.
add_library(brivolte_options INTERFACE)
target_compile_options(brivolte_options INTERFACE -Wall -Wextra)
target_compile_definitions(brivolte_options INTERFACE
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_URL_CAST_FROM_STRING)
if(BRIVOLTE_SANITIZE)
    target_compile_options(brivolte_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(brivolte_options INTERFACE -fsanitize=address,undefined)
endif()
