# Winelib: Linux programs that link Wine's Win32 implementation and run under `wine`.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER winegcc)
set(CMAKE_CXX_COMPILER wineg++)
set(CAMTOOLS_WINELIB ON)
