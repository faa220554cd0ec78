"""The package's own functions against the real monitor: strings as
announced, their bounds, and what raises."""
from pathlib import Path

import pytest

import vesprinedovetide as vd
from conftest import sent


def test_strings_are_encoded_as_announced_on_the_connection(vesprine):
    vd.draw_string(0, 0, "Grüße", 16)
    vd.set_encoding_shift_jis()
    vd.draw_string(0, 0, "テスト", 16)
    vd.log_info(b"\x83\x65")  # bytes as they are
    vd.draw_image(Path("images") / "ロゴ.png", 0, 0)
    vd.connect()  # a new connection is read as UTF-8 again
    vd.set_background("世界.png")
    texts = [m["text"] for m in sent(vesprine) if "text" in m]
    assert texts == ["Grüße", "テスト", "テ", "images/ロゴ.png", "世界.png"]


# Each function with a string, and the most bytes it sends.
BOUNDS = [
    (lambda s: vd.draw_string(0, 0, s), 4095),
    (lambda s: vd.draw_image(s, 0, 0), 4095),
    (lambda s: vd.draw_image_scaled(s, 0, 0, 1, 1), 4095),
    (lambda s: vd.create_sprite(s, 1, 1), 127),
    (vd.dispose_sprite, 127),
    (vd.set_edit_sprite, 127),
    (vd.set_background, 127),
    (vd.log_verbose, 65535),
    (vd.log_debug, 65535),
    (vd.log_info, 65535),
    (vd.log_warning, 65535),
    (vd.log_error, 65535),
    (vd.log_critical, 65535),
]


def test_strings_up_to_their_bound_are_sent_and_longer_ones_refused(vesprine):
    for call, most in BOUNDS:
        call("é" * (most // 2) + "x" * (most % 2))
        with pytest.raises(ValueError, match=f"at most {most} are sent"):
            call("x" * (most - 1) + "é")
    received = [m.get("text", m.get("name")) for m in sent(vesprine)]
    assert [len(text.encode()) for text in received] == [most for _, most in BOUNDS]


@pytest.mark.parametrize("call, error", [
    (lambda: vd.draw_string(0, 0, "a\0b"), ValueError),
    (lambda: vd.set_z(2**31), OverflowError),
    (lambda: vd.set_z(-(2**31) - 1), OverflowError),
    (lambda: vd.set_z(1.5), TypeError),
    (lambda: vd.set_z("1"), TypeError),
    (lambda: vd.draw_string(0, 0, None), TypeError),
    (lambda: vd.set_edit_sprite(7), TypeError),
    (lambda: vd.set_encoding_shift_jis() or vd.draw_string(0, 0, "Grüße €"), UnicodeEncodeError),
    (lambda: vd.set_z(-(2**31)), None),
    (lambda: vd.draw_rect(0, 0, 1, 1, fill=True), None),
])
def test_what_raises(vesprine, call, error):
    if error is None:
        call()
    else:
        with pytest.raises(error):
            call()


def test_a_message_no_display_host_takes_raises():
    # No monitor runs here: each call tries to connect, and says it could not.
    with pytest.raises(vd.NotDelivered, match="start vesprine-monitor first"):
        vd.connect()
    with pytest.raises(ConnectionError, match="DrawPixel was not delivered"):
        vd.draw_pixel(1, 2)
    vd.close()
