# Finds the Firebird client: the OO API header firebird/Interface.h and the
# fbclient library (Debian: firebird-dev, libfbclient2). Firebird ships no
# pkg-config file, hence the plain search.
#
# Defines Firebird_FOUND, Firebird_INCLUDE_DIR, Firebird_LIBRARY and the
# imported target Firebird::fbclient.

find_path(Firebird_INCLUDE_DIR NAMES firebird/Interface.h)
find_library(Firebird_LIBRARY NAMES fbclient)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Firebird REQUIRED_VARS Firebird_LIBRARY Firebird_INCLUDE_DIR)

if(Firebird_FOUND AND NOT TARGET Firebird::fbclient)
  add_library(Firebird::fbclient UNKNOWN IMPORTED)
  set_target_properties(Firebird::fbclient PROPERTIES
    IMPORTED_LOCATION "${Firebird_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Firebird_INCLUDE_DIR}")
endif()
mark_as_advanced(Firebird_INCLUDE_DIR Firebird_LIBRARY)
