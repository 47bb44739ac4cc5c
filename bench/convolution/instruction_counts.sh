#!/usr/bin/env bash
# Instructions per sample (convolvers, all threads) and per forward+inverse
# pair (FFT sizes), ours against zita-convolver and FFTW, from callgrind.
# Usage: bench/convolution/instruction_counts.sh BUILD_DIR
set -euo pipefail
exe="${1:?build dir}/bench/convolution/ConvolutionWorkloadBench"
count() { FFT_SIZE="${4:-1024}" valgrind --tool=callgrind --callgrind-out-file=/dev/null "$exe" "$1" "$2" "$3" 2>&1 |
  awk '/Collected/ {print $4}'; }
per() { echo $(( ($(count "$1" "$2" "$4" "${5:-}") - $(count "$1" "$2" "$3" "${5:-}")) / ($4 - $3) )); }
for kind in ${KINDS-short long}; do
  ours=$(per ours "$kind" 48000 144000); zita=$(per zita "$kind" 48000 144000)
  echo "$kind convolver: ours $ours, zita $zita instructions/sample, ratio $(echo "scale=2; $ours / $zita" | bc)"
done
# Transforms are counted inside the calls only (FFTW's planning by measurement
# differs from run to run).
inside() { FFT_SIZE="$3" valgrind --tool=callgrind --callgrind-out-file=/dev/null $2 "$exe" "$1" fft 200 2>&1 |
  awk '/Collected/ {print int($4 / 200)}'; }
for n in 128 256 512 1024 2048 4096 8192 16384; do
  ours=$(inside ours "--toggle-collect=valvora::FftPlan::forward(float?const*,?float*) --toggle-collect=valvora::FftPlan::inverse(float?const*,?float*)" "$n")
  fftw=$(inside fftw "--toggle-collect=fftwf_execute" "$n")
  echo "fft $n: ours $ours, fftw $fftw instructions/pair, ratio $(echo "scale=2; $ours / $fftw" | bc)"
done
