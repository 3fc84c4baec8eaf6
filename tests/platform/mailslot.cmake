# Tests of the Linux mailslot transport and ksAnsiToOem.
if(NOT WIN32)
  pellora_add_test(platform_netbios ${CMAKE_CURRENT_LIST_DIR}/NetBiosTest.cpp)
  # The checked reference datagram, kept with the tests; where the checkout has the shared
  # reference texts beside it, the test also checks that its copy is the same file.
  get_filename_component(_pellora_reference "${PROJECT_SOURCE_DIR}/../shared/reference" ABSOLUTE)
  target_compile_definitions(platform_netbios PRIVATE PELLORA_REFERENCE_DIR="${CMAKE_CURRENT_LIST_DIR}/reference"
                                                      PELLORA_SHARED_REFERENCE_DIR="${_pellora_reference}")
  pellora_add_test(platform_netbios_root ${CMAKE_CURRENT_LIST_DIR}/NetBiosRootTest.cpp LABELS root)
  pellora_add_test(platform_messenger_datagram ${CMAKE_CURRENT_LIST_DIR}/MessengerDatagramTest.cpp)
  target_compile_definitions(platform_messenger_datagram PRIVATE PELLORA_REFERENCE_DIR="${CMAKE_CURRENT_LIST_DIR}/reference")
  pellora_add_test(platform_oem ${CMAKE_CURRENT_LIST_DIR}/OemTest.cpp)
endif()
