# Sourced by the scripts that start Wine.
# sound_device: true when the machine has an ALSA playback device or the
# user's session has a sound server (PulseAudio or PipeWire).
sound_device() {
  compgen -G '/dev/snd/pcmC*p' >/dev/null && return 0
  [ -n "${PULSE_SERVER:-}" ] && return 0
  [ -n "${XDG_RUNTIME_DIR:-}" ] && { [ -S "$XDG_RUNTIME_DIR/pulse/native" ] || [ -S "$XDG_RUNTIME_DIR/pipewire-0" ]; } && return 0
  return 1
}
