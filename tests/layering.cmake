cmake_minimum_required(VERSION 3.25)
# Fails when a layer includes a layer above it, or when a layer below the
# widgets includes a QtWidgets header. Run by CTest:
#   cmake -DSRC=<src folder> -DWIDGETS_HEADERS=<QtWidgets include folder> -P layering.cmake

# Bottom-up; each layer may include the layers before it in this list.
set(layers settings document markup mask search editedfile overview kaitai validators
           hexview treeview panels dialogs mainwindow app)
# The layers that must build without QtWidgets.
set(widget_free settings document markup mask search editedfile overview kaitai validators)
# Views that write no files: saving belongs to the edited file.
set(no_file_writes hexview)
set(file_writing_headers QFile QSaveFile QTemporaryFile fcntl.h unistd.h)

if(NOT IS_DIRECTORY "${WIDGETS_HEADERS}")
    message(FATAL_ERROR "QtWidgets headers not found at '${WIDGETS_HEADERS}'")
endif()

file(GLOB folders RELATIVE ${SRC} ${SRC}/*)
set(faults "")
foreach(folder IN LISTS folders)
    if(IS_DIRECTORY ${SRC}/${folder} AND NOT folder IN_LIST layers)
        string(APPEND faults "\n  src/${folder}/ is not a known layer")
    endif()
endforeach()

set(checked 0)
foreach(layer IN LISTS layers)
    list(FIND layers ${layer} rank)
    file(GLOB sources ${SRC}/${layer}/*.h ${SRC}/${layer}/*.cpp)
    foreach(source IN LISTS sources)
        math(EXPR checked "${checked} + 1")
        file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include")
        foreach(line IN LISTS includes)
            if(line MATCHES "#[ \t]*include[ \t]*\"([^\"/]+)/[^\"]+\"")
                set(target ${CMAKE_MATCH_1})
                list(FIND layers ${target} target_rank)
                if(target_rank EQUAL -1)
                    string(APPEND faults "\n  ${source}: unknown layer in ${line}")
                elseif(target_rank GREATER rank)
                    string(APPEND faults "\n  ${source}: ${layer} reaches up into ${target}")
                endif()
            elseif(line MATCHES "#[ \t]*include[ \t]*\"([^\"/]+)\"")
                string(APPEND faults "\n  ${source}: include without its layer's path: ${line}")
            elseif(line MATCHES "#[ \t]*include[ \t]*<([A-Za-z./]+)>" AND layer IN_LIST no_file_writes
                   AND CMAKE_MATCH_1 IN_LIST file_writing_headers)
                string(APPEND faults "\n  ${source}: ${layer} writes files through <${CMAKE_MATCH_1}>")
            elseif(line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]+)>" AND layer IN_LIST widget_free)
                if(EXISTS ${WIDGETS_HEADERS}/${CMAKE_MATCH_1})
                    string(APPEND faults "\n  ${source}: ${layer} includes the widget header <${CMAKE_MATCH_1}>")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()

if(checked EQUAL 0)
    message(FATAL_ERROR "no sources found under ${SRC}")
endif()
if(faults)
    message(FATAL_ERROR "Layering broken:${faults}")
endif()
message(STATUS "${checked} files keep to the layers")
