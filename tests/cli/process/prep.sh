# Nothing is shared but an emulator, kept up for the whole run.
# Arguments: VKT2 VKT2X VKT2C [LAUNCHER...]
if [ $# -gt 3 ]; then keep_up "${@:4}"; fi
:
