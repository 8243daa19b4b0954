"""A training script's start: the detector's settings, judged as the detector judges them."""
import sys

import detector_settings

loaded = detector_settings.load_settings("settings.toml", overrides=["detection.sensitivity=0.8"])
for problem in loaded.problems:
    print(problem)
if not loaded.valid:
    sys.exit(1)

config = loaded.config
print(f"training on {config.training.dataFile}, FFT size {config.detection.fftSize}")
print(f"evaluating at sensitivity {config.detection.sensitivity:.2f},", loaded.origin_of("detection.sensitivity"))

config.audio.bufferSizeMs = 0
print(detector_settings.validate(config))
