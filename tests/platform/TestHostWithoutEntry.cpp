// A host library that loads but lacks the notification entry.
extern "C" __attribute__((visibility("default"))) int SomethingElse() {
    return 1;
}
