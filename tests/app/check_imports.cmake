# Fails unless EXE imports only system DLLs (a statically linked program ships as one file) and is a
# windowed program, so no console opens behind it.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
string(TOLOWER "${lines}" lines)
set(system "kernel32|advapi32|user32|gdi32|comctl32|comdlg32|shell32|msvcrt")
string(REGEX REPLACE "dll name: *(${system})\\.dll *(;|$)" "" others "${lines}")
if(NOT result EQUAL 0 OR NOT lines OR others)
    message(FATAL_ERROR "${EXE}: no import table read, or it imports more than system DLLs: ${others}")
elseif(NOT dump MATCHES "Subsystem[ \t]+0*2[ \t]")
    message(FATAL_ERROR "${EXE} is not a Windows GUI program")
endif()
