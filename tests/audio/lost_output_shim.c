// Preloaded into the demo to take its sound output away part-way through, as an unplugged headset
// does: VORDEL_LOSE_OUTPUT_AFTER seconds after a source is first seen playing, the device reports
// itself disconnected and every source stopped. Only what the program reads changes; the mixer
// underneath plays on.
#define _GNU_SOURCE
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>

static double playing_since = -1.0;  // monotonic seconds; negative until a source plays

static double now_seconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

static int output_lost(void)
{
    const char* after = getenv("VORDEL_LOSE_OUTPUT_AFTER");
    return after != NULL && playing_since >= 0.0 && now_seconds() - playing_since >= atof(after);
}

void alGetSourcei(ALuint source, ALenum param, ALint* value)
{
    typedef void (*Real)(ALuint, ALenum, ALint*);
    static Real real = NULL;
    if (real == NULL)
        real = (Real)dlsym(RTLD_NEXT, "alGetSourcei");
    real(source, param, value);
    if (param != AL_SOURCE_STATE || value == NULL)
        return;
    if (playing_since < 0.0 && *value == AL_PLAYING)
        playing_since = now_seconds();
    if (output_lost())
        *value = AL_STOPPED;
}

void alcGetIntegerv(ALCdevice* device, ALCenum param, ALCsizei size, ALCint* values)
{
    typedef void (*Real)(ALCdevice*, ALCenum, ALCsizei, ALCint*);
    static Real real = NULL;
    if (real == NULL)
        real = (Real)dlsym(RTLD_NEXT, "alcGetIntegerv");
    real(device, param, size, values);
    if (param == ALC_CONNECTED && size >= 1 && values != NULL && output_lost())
        values[0] = ALC_FALSE;
}
