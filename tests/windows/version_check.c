/* Reads quadturn.dll's version resource through the Win32 version API. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static int check_string(void* info, const char* name, const char* expected) {
  char path[128];
  char* value = NULL;
  UINT length = 0;
  snprintf(path, sizeof path, "\\StringFileInfo\\040904B0\\%s", name);
  if (!VerQueryValueA(info, path, (void**)&value, &length) ||
      strcmp(value, expected) != 0) {
    printf("%s: expected \"%s\", found \"%s\"\n", name, expected,
           value ? value : "(none)");
    return 1;
  }
  return 0;
}

int main(void) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA("quadturn.dll", &ignored);
  static char info[8192];
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  int failures = 0;
  if (size == 0 || size > sizeof info ||
      !GetFileVersionInfoA("quadturn.dll", 0, size, info)) {
    printf("quadturn.dll has no readable version resource\n");
    return 1;
  }
  if (!VerQueryValueA(info, "\\", (void**)&fixed, &length) ||
      fixed->dwFileType != VFT_DLL ||
      fixed->dwFileVersionMS != ((QT_MAJOR << 16) | QT_MINOR) ||
      fixed->dwFileVersionLS != (QT_PATCH << 16)) {
    printf("fixed file info: not a DLL of version %s\n", QT_VERSION);
    ++failures;
  }
  failures += check_string(info, "FileVersion", QT_VERSION);
  failures += check_string(info, "ProductVersion", QT_VERSION);
  failures += check_string(info, "OriginalFilename", "quadturn.dll");
  failures += check_string(info, "ProductName", "quadturn");
  printf("version resource: %s\n", failures ? "WRONG" : "as expected");
  return failures == 0 ? 0 : 1;
}
