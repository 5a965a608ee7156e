// A shared library without the track-file library's entry points.
extern "C" int SomethingElse() {
    return 0;
}
