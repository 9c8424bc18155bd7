"""Starts Pictaro, waits for its first frame, saves a screenshot and closes it.

Usage: show-viewer.py <Pictaro.exe> <screenshot.png>
"""
import sys

import pictaro_x11 as x11

exe, shot_path = sys.argv[1], sys.argv[2]
proc = x11.start(exe)
try:
    disp, _ = x11.wait_for_start(proc)
    x, y, w, h = x11.window_geometry("Pictaro", disp, proc.pid)
    x11.screenshot(shot_path)
    print(f"Pictaro is up at {x},{y} ({w} x {h}); screenshot saved to {shot_path}")
    x11.close_window(disp, x11.find_window("Pictaro", disp=disp, pid=proc.pid)[1])
    code = proc.wait(timeout=30)
    print(f"Pictaro closed with exit code {code}")
    sys.exit(code)
finally:
    if proc.poll() is None:
        proc.kill()
