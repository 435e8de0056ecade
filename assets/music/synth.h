// synth.h -- the instruments of the game's music, synthesised from scratch.
#ifndef TAVO_ASSETS_MUSIC_SYNTH_H
#define TAVO_ASSETS_MUSIC_SYNTH_H

#include "xm_writer.h"

// Every pitched sample is tuned so that note C-4 sounds middle C (within
// two cents): its fundamental is 8363 / 32 Hz at the rate it was made at.
constexpr double synth_base_hz = 8363.0 / 32.0;

xm_instrument make_lead();
xm_instrument make_bell();
xm_instrument make_pluck();
xm_instrument make_bass();
xm_instrument make_pad();
xm_instrument make_kick();
xm_instrument make_snare();
xm_instrument make_closed_hat();
xm_instrument make_open_hat();
xm_instrument make_crash();

#endif
