# The folder's sources, read by this folder's library and by the native build.
set(QUILLMERE_CALENDAR_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/appointment_time.cpp
    ${CMAKE_CURRENT_LIST_DIR}/date_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/text_search.cpp
)
