# Winelib: Linux programs that link Wine's Win32 implementation and run under `wine`.
# winegcc writes NAME.exe (a loader stub) and NAME.exe.so; targets get the .exe suffix so the
# files carry the names Wine expects.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER winegcc)
set(CMAKE_CXX_COMPILER wineg++)
set(CAMTOOLS_WINELIB ON)
set(CMAKE_EXECUTABLE_SUFFIX ".exe")
