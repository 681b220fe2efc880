# The dynamic symbols libVarnel.so defines must be exactly the functions its public
# header declares: nothing missing, nothing of the implementation leaking out.
# cmake -DNM=nm -DLIBRARY=libVarnel.so -DHEADER=varnel.h -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(exported)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" name "${line}")
  list(APPEND exported ${name})
endforeach()

file(READ ${HEADER} header)
string(REGEX MATCHALL "VARNEL_API int32_t [A-Za-z]+\\(" declarations "${header}")
set(declared)
foreach(d IN LISTS declarations)
  string(REGEX REPLACE "VARNEL_API int32_t ([A-Za-z]+)\\(" "\\1" name "${d}")
  list(APPEND declared ${name})
endforeach()

list(SORT exported)
list(SORT declared)
list(LENGTH declared count)
if(NOT exported STREQUAL declared)
  message(FATAL_ERROR "exported: ${exported}\ndeclared: ${declared}")
endif()
message(STATUS "libVarnel.so exports exactly the ${count} declared functions")
