# The components: field histories, stored settings, the text-file writer and the error prompt.
target_sources(pellora_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ErrorPrompt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HistoryList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextFileWriter.cpp
)
