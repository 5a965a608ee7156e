/* LV2 effects with faults, for the tests of trying an effect in a child process:
 *   crash   mono; crashes (SIGSEGV) when it runs
 *   hang    mono; never returns from a run
 * A third, "missing", names a library that is not installed.
 */
#include <lv2/core/lv2.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#define FAULTY_URI "urn:wavetolvane:faulty:"

static LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char* bundle,
                              const LV2_Feature* const* features) {
    (void)descriptor;
    (void)rate;
    (void)bundle;
    (void)features;
    return malloc(1);
}

static void connect(LV2_Handle instance, uint32_t port, void* data) {
    (void)instance;
    (void)port;
    (void)data;
}

static void runCrash(LV2_Handle instance, uint32_t frames) {
    (void)instance;
    (void)frames;
    raise(SIGSEGV);
}

static void runHang(LV2_Handle instance, uint32_t frames) {
    (void)instance;
    (void)frames;
    for (;;)
        sleep(1);
}

static void cleanup(LV2_Handle instance) { free(instance); }

static const LV2_Descriptor descriptors[] = {
    {FAULTY_URI "crash", instantiate, connect, NULL, runCrash, NULL, cleanup, NULL},
    {FAULTY_URI "hang", instantiate, connect, NULL, runHang, NULL, cleanup, NULL},
};

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index < sizeof descriptors / sizeof descriptors[0] ? &descriptors[index] : NULL;
}
