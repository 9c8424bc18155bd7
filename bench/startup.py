"""Time from process start to the first frame on screen: Pictaro's first layered
frame next to a minimal Win32 program's plain window, under the same Wine.

Usage: startup.py <Pictaro.exe> <bench_minimal_window.exe> [runs]
"""
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import pictaro_x11 as x11  # noqa: E402
from PIL import Image  # noqa: E402
from Xlib import display  # noqa: E402


def time_to_pixel(exe, name, point, colour):
    disp = display.Display()
    x, y = point
    started = time.perf_counter()
    proc = x11.start(exe)
    try:
        while not x11.near(x11.pixel(disp, x, y), colour):
            if time.perf_counter() - started > 30:
                raise TimeoutError(f"{name} showed no frame")
            time.sleep(0.001)
        elapsed = time.perf_counter() - started
        x11.close_window(disp, x11.find_window(name, disp=disp)[1])
        proc.wait(timeout=30)
        # Let the screen go back to black before the next run.
        x11.wait_for(lambda: x11.pixel(disp, x, y) == (0, 0, 0), timeout=5)
        return elapsed
    finally:
        if proc.poll() is None:
            proc.kill()


def main():
    pictaro, minimal = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 7
    disp = display.Display()
    width, height = x11.screen_size(disp)
    left, top = (width - 240) // 2, (height - 167) // 2
    start_bmp = Image.open(os.path.join(x11.ROOT, "res", "start.bmp")).convert("RGB")
    probe = (120, 60)
    pictaro_colour = tuple(x11.layered(c) for c in start_bmp.getpixel(probe))
    point = (left + probe[0], top + probe[1])

    time_to_pixel(minimal, "MinimalWindow", point, (255, 255, 255))  # warm the caches
    pictaro_times, minimal_times = [], []
    for _ in range(runs):
        minimal_times.append(time_to_pixel(minimal, "MinimalWindow", point, (255, 255, 255)))
        pictaro_times.append(time_to_pixel(pictaro, "Pictaro", point, pictaro_colour))

    def row(label, times):
        med = statistics.median(times)
        return f"{label:<34}{med * 1000:>9.0f} ms   (min {min(times) * 1000:.0f}, max {max(times) * 1000:.0f})"

    print(f"Start-up to first frame, median of {runs} runs under Wine")
    print(row("minimal Win32 window", minimal_times))
    print(row("Pictaro first layered frame", pictaro_times))
    ratio = statistics.median(pictaro_times) / statistics.median(minimal_times)
    print(f"{'ratio Pictaro / minimal':<34}{ratio:>9.2f}")
    print(f"RATIO startup-{os.environ.get('PICTARO_ARCH', 'x86')} {ratio:.2f}")


if __name__ == "__main__":
    main()
