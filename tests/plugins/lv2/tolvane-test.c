/* Small LV2 effects with exact results for the plug-in host's tests:
 *   gain        mono, out = in * gain
 *   spread      mono in, stereo out: left = in, right = in * gain
 *   delay       mono, out = in delayed by 100 frames, reported as its latency; no controls
 *   stereo-gain stereo, both channels * gain, negated when "invert" is on
 *   fragile     mono, out = in; like filters that make their state in activate and free it in
 *               cleanup without looking, it crashes when freed without having been activated.
 *               Its "cutoff" control is a frequency up to half the sample rate.
 */
#include <lv2/core/lv2.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#define TEST_URI "urn:wavetolvane:test:"
#define DELAY_FRAMES 100

typedef struct {
    float* state; /* made by activate (fragile) */
    const float* gain;
    const float* invert;
    const float* in[2];
    float* out[2];
    float* latency;
    float line[DELAY_FRAMES];
    uint32_t head;
} Effect;

static LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char* bundle,
                              const LV2_Feature* const* features) {
    (void)descriptor;
    (void)rate;
    (void)bundle;
    (void)features;
    return calloc(1, sizeof(Effect));
}

static void cleanup(LV2_Handle instance) { free(instance); }

static LV2_Handle instantiateFragile(const LV2_Descriptor* descriptor, double rate,
                                     const char* bundle, const LV2_Feature* const* features) {
    Effect* e = (Effect*)instantiate(descriptor, rate, bundle, features);
    /* Not set until activate, as in plug-ins that allocate with malloc and never clear. */
    if (e)
        e->state = (float*)(uintptr_t)0xDEADBEEF0;
    return e;
}

static void activateFragile(LV2_Handle instance) {
    Effect* e = (Effect*)instance;
    e->state = (float*)calloc(DELAY_FRAMES, sizeof(float));
}

static void cleanupFragile(LV2_Handle instance) {
    Effect* e = (Effect*)instance;
    free(e->state);
    free(e);
}

static void activate(LV2_Handle instance) {
    Effect* e = (Effect*)instance;
    memset(e->line, 0, sizeof e->line);
    e->head = 0;
}

/* Ports, in every plug-in: 0 gain (or the latency output for delay), then audio in, audio out. */
static void connectGain(LV2_Handle instance, uint32_t port, void* data) {
    Effect* e = (Effect*)instance;
    switch (port) {
    case 0: e->gain = (const float*)data; break;
    case 1: e->in[0] = (const float*)data; break;
    case 2: e->out[0] = (float*)data; break;
    }
}

static void runGain(LV2_Handle instance, uint32_t frames) {
    Effect* e = (Effect*)instance;
    for (uint32_t i = 0; i < frames; ++i)
        e->out[0][i] = e->in[0][i] * *e->gain;
}

static void connectSpread(LV2_Handle instance, uint32_t port, void* data) {
    Effect* e = (Effect*)instance;
    switch (port) {
    case 0: e->gain = (const float*)data; break;
    case 1: e->in[0] = (const float*)data; break;
    case 2: e->out[0] = (float*)data; break;
    case 3: e->out[1] = (float*)data; break;
    }
}

static void runSpread(LV2_Handle instance, uint32_t frames) {
    Effect* e = (Effect*)instance;
    for (uint32_t i = 0; i < frames; ++i) {
        const float x = e->in[0][i];
        e->out[0][i] = x;
        e->out[1][i] = x * *e->gain;
    }
}

static void connectDelay(LV2_Handle instance, uint32_t port, void* data) {
    Effect* e = (Effect*)instance;
    switch (port) {
    case 0: e->latency = (float*)data; break;
    case 1: e->in[0] = (const float*)data; break;
    case 2: e->out[0] = (float*)data; break;
    }
}

static void runDelay(LV2_Handle instance, uint32_t frames) {
    Effect* e = (Effect*)instance;
    for (uint32_t i = 0; i < frames; ++i) {
        const float x = e->in[0][i];
        e->out[0][i] = e->line[e->head];
        e->line[e->head] = x;
        e->head = (e->head + 1) % DELAY_FRAMES;
    }
    if (e->latency)
        *e->latency = DELAY_FRAMES;
}

static void connectStereo(LV2_Handle instance, uint32_t port, void* data) {
    Effect* e = (Effect*)instance;
    switch (port) {
    case 0: e->gain = (const float*)data; break;
    case 1: e->invert = (const float*)data; break;
    case 2: e->in[0] = (const float*)data; break;
    case 3: e->in[1] = (const float*)data; break;
    case 4: e->out[0] = (float*)data; break;
    case 5: e->out[1] = (float*)data; break;
    }
}

static void runStereo(LV2_Handle instance, uint32_t frames) {
    Effect* e = (Effect*)instance;
    const float g = *e->invert > 0.5f ? -*e->gain : *e->gain;
    for (uint32_t c = 0; c < 2; ++c)
        for (uint32_t i = 0; i < frames; ++i)
            e->out[c][i] = e->in[c][i] * g;
}

static void runCopy(LV2_Handle instance, uint32_t frames) {
    Effect* e = (Effect*)instance;
    memcpy(e->out[0], e->in[0], frames * sizeof(float));
}

static const LV2_Descriptor descriptors[] = {
    {TEST_URI "gain", instantiate, connectGain, activate, runGain, NULL, cleanup, NULL},
    {TEST_URI "spread", instantiate, connectSpread, activate, runSpread, NULL, cleanup, NULL},
    {TEST_URI "delay", instantiate, connectDelay, activate, runDelay, NULL, cleanup, NULL},
    {TEST_URI "stereo-gain", instantiate, connectStereo, activate, runStereo, NULL, cleanup, NULL},
    {TEST_URI "fragile", instantiateFragile, connectGain, activateFragile, runCopy, NULL,
     cleanupFragile, NULL},
};

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index < sizeof descriptors / sizeof descriptors[0] ? &descriptors[index] : NULL;
}
