/* A library that reports version 5.80 through its version export. */
typedef struct {
  unsigned size, major, minor, build, platform;
} version_info;
int DllGetVersion(version_info* info) {
  if (info->size != 20) return -1;
  info->major = 5;
  info->minor = 80;
  return 0;
}
