# cmake -DOBJDUMP=... -DIMAGE=... -P check_imports.cmake
# Fails unless every DLL the image imports from is ntoskrnl.exe.
execute_process(COMMAND ${OBJDUMP} -p ${IMAGE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${IMAGE} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" names "${dump}")
foreach(entry IN LISTS names)
  string(REPLACE "DLL Name: " "" dll "${entry}")
  string(STRIP "${dll}" dll)
  if(NOT dll STREQUAL "ntoskrnl.exe")
    message(FATAL_ERROR "${IMAGE} imports from ${dll}; a kernel driver may import from ntoskrnl.exe only")
  endif()
endforeach()
