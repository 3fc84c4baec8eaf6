# Tests of the Linux mailslot transport and ksAnsiToOem.
if(NOT WIN32)
  pellora_add_test(platform_netbios ${CMAKE_CURRENT_LIST_DIR}/NetBiosTest.cpp LABELS platform)
  # The shared reference texts, when the checkout has them beside it.
  get_filename_component(_pellora_reference "${PROJECT_SOURCE_DIR}/../shared/reference" ABSOLUTE)
  target_compile_definitions(platform_netbios PRIVATE PELLORA_REFERENCE_DIR="${_pellora_reference}")
  pellora_add_test(platform_oem ${CMAKE_CURRENT_LIST_DIR}/OemTest.cpp LABELS platform)
endif()
