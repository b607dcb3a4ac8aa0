// A Windows shell hands a program its wildcards as typed, so `dotmaze maps\*.txt`, the way to
// play every map as levels, would name one map called "*.txt". Asked to, the MinGW runtime
// expands them before main, as a Unix shell would have; a quoted one stays as it is.
extern "C" {
int _dowildcard = -1;
}
