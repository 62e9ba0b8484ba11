find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(CURL REQUIRED)
find_package(ICU REQUIRED COMPONENTS uc i18n)
find_package(simdjson REQUIRED)
find_package(GTest REQUIRED)
find_package(benchmark REQUIRED)
pkg_check_modules(YAJL REQUIRED IMPORTED_TARGET yajl)
# The Debian package ships cpp-httplib compiled, with TLS/zlib/brotli switched on; its pkg-config
# file carries the matching defines.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
