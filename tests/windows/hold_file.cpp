// Holds a file open without sharing it, as another program at work on the
// file would, until its standard input ends:
//
//   hold_file PATH
//
// prints "held" and a line end once the file is held; exit status 1 when the
// file cannot be opened.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t* argv[]) {
  if (argc != 2) return 2;
  const HANDLE held = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  std::fputs("held\n", stdout);
  std::fflush(stdout);
  char buffer[64];
  DWORD got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) &&
         got > 0) {
  }
  CloseHandle(held);
  return 0;
}
