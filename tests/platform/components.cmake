# Tests of the components: text-file writer, field histories, stored settings.
pellora_add_test(platform_text_file_writer ${CMAKE_CURRENT_LIST_DIR}/TextFileWriterTest.cpp)
pellora_add_test(platform_history_list ${CMAKE_CURRENT_LIST_DIR}/HistoryListTest.cpp)
pellora_add_test(platform_settings_store ${CMAKE_CURRENT_LIST_DIR}/SettingsStoreTest.cpp)
