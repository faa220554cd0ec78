"""A visual test of the Python demo, as a host application's own suite would
have it: the scene recorded and compared with test_demo/test_scene.vses
(`pytest --vesprine-update` records it; run from examples/, where the images are)."""
import demo


def test_scene(vesprine):
    demo.draw_scene()
    vesprine.assert_matches()
