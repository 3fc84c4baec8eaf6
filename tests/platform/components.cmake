# Tests of the components: text-file writer, field histories, stored settings.
pellora_add_test(TextFileWriterTest ${CMAKE_CURRENT_LIST_DIR}/TextFileWriterTest.cpp LABELS components)
pellora_add_test(HistoryListTest ${CMAKE_CURRENT_LIST_DIR}/HistoryListTest.cpp LABELS components)
pellora_add_test(SettingsStoreTest ${CMAKE_CURRENT_LIST_DIR}/SettingsStoreTest.cpp LABELS components)
