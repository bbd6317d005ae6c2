# The folder's sources, read by this folder's library and by the native build.
set(QUILLMERE_ICAL_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/appointment_values.cpp
    ${CMAKE_CURRENT_LIST_DIR}/calendar_export.cpp
    ${CMAKE_CURRENT_LIST_DIR}/calendar_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/civil_time.cpp
    ${CMAKE_CURRENT_LIST_DIR}/content_line.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ical_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/import_plan.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recurrence_rule.cpp
    ${CMAKE_CURRENT_LIST_DIR}/rule_occurrences.cpp
    ${CMAKE_CURRENT_LIST_DIR}/series.cpp
    ${CMAKE_CURRENT_LIST_DIR}/time_value.cpp
    ${CMAKE_CURRENT_LIST_DIR}/time_zone_table.cpp
    ${CMAKE_CURRENT_LIST_DIR}/transfer_report.cpp
    ${CMAKE_CURRENT_LIST_DIR}/windows_zone_rules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/zone_names.cpp
)
