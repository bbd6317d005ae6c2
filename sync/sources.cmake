# The folder's sources that need no system header, read by this folder's
# library and by the native build; the library adds the WinHTTP transport and
# the Credential Manager.
set(QUILLMERE_SYNC_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/caldav_client.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dav_xml.cpp
    ${CMAKE_CURRENT_LIST_DIR}/event_touch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/http_auth.cpp
    ${CMAKE_CURRENT_LIST_DIR}/retry_policy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sync_engine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/url.cpp
    ${CMAKE_CURRENT_LIST_DIR}/vevent_patch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/xml_reader.cpp
)
