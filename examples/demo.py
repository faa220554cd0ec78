"""The demo in Python: the scene of demo_scene.h, call for call, through the
vesprinedovetide package; the monitor prints the same lines for both. With
DEMO_CHANGED=1 the sun is orange: the change that test_demo.py catches.
Run it against `vesprine-monitor --view --images examples`."""
import os
import sys

import vesprinedovetide as vd


def draw_scene():
    # The screen, its background, and what clearing and disposing look like.
    vd.set_resolution(640, 480)
    vd.set_encoding_utf8()
    vd.set_background("backgrounds/sky.png", 255)
    vd.set_color(255, 255, 255, 255)
    vd.draw_rect(0, 0, 50, 50, fill=True)
    vd.draw_clear()
    vd.create_sprite("cloud", 64, 32)
    vd.dispose_sprite("cloud")
    vd.create_sprite("draft", 8, 8)
    vd.set_edit_sprite("draft")
    vd.dispose_current_sprite()
    vd.create_sprite("old", 4, 4)
    vd.dispose_all_sprites()

    # Ground, a sun, shapes in several colours and alphas.
    vd.set_color(40, 120, 40, 255)
    vd.draw_rect(0, 400, 640, 80, fill=True)
    if os.environ.get("DEMO_CHANGED") == "1":
        vd.set_color(255, 120, 0, 255)
    else:
        vd.set_color(255, 220, 0, 255)
    vd.draw_ellipse(520, 30, 80, 80, fill=True)
    vd.set_color(255, 150, 0, 255)
    vd.draw_ellipse(510, 20, 100, 100)
    vd.set_color(255, 0, 0, 128)
    vd.draw_rect(40, 60, 160, 100, fill=True)
    vd.set_color(0, 64, 255, 200)
    vd.draw_rect(120, 100, 160, 100)
    vd.draw_ellipse(140, 120, 120, 60, fill=True)
    vd.set_color(255, 255, 255, 255)
    vd.draw_line(0, 399, 639, 399)
    vd.draw_line(40, 60, 280, 200)
    vd.draw_pixel(10, 20)

    # Text in UTF-8 and in Shift-JIS: str is encoded as announced.
    vd.draw_string(40, 220, "Hello, display host", 24)
    vd.draw_string(40, 255, "Grüße, 世界", 24)
    vd.set_encoding_shift_jis()
    vd.draw_string(40, 290, "テスト", 24)
    vd.set_encoding_utf8()

    # An image at its own size, and stretched at half opacity.
    vd.draw_image("images/logo.png", 320, 40)
    vd.draw_image_scaled("images/logo.png", 370, 40, 96, 96, 128)

    # Two sprites placed by bound and O-point: "hero" above a faded "ghost".
    vd.create_sprite("hero", 48, 64)
    vd.set_edit_sprite("hero")
    vd.set_color(200, 60, 200, 255)
    vd.draw_ellipse(0, 0, 48, 48, fill=True)
    vd.set_color(255, 255, 255, 255)
    vd.draw_rect(14, 40, 20, 24, fill=True)
    vd.set_o_point(24, 64)
    vd.set_bound(360, 400)
    vd.set_z(2)
    vd.set_visible(True)
    vd.create_sprite("ghost", 80, 80)
    vd.set_edit_sprite("ghost")
    vd.set_color(180, 220, 255, 255)
    vd.draw_ellipse(0, 0, 80, 80, fill=True)
    vd.set_color(0, 0, 0, 255)
    vd.draw_rect(20, 25, 10, 10, fill=True)
    vd.draw_rect(50, 25, 10, 10, fill=True)
    vd.set_o_point(40, 40)
    vd.set_bound(400, 340)
    vd.set_z(1)
    vd.set_alpha(140)
    vd.set_edit_sprite("")

    vd.log_verbose("verbose: scene built")
    vd.log_debug("debug: 2 sprites shown")
    vd.log_info("info: frame 1 drawn")
    vd.log_warning("warning: <b>markup</b> stays text")
    vd.log_error('error: "quoted" text')
    vd.log_critical("critical: nothing is wrong")


def main():
    try:
        with vd.connect():
            print("demo: connected to the display host")
            draw_scene()
    except vd.NotDelivered as error:
        print(f"demo: {error}", file=sys.stderr)
        return 1
    print("demo: every message delivered")
    return 0


if __name__ == "__main__":
    sys.exit(main())
