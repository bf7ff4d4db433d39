"""vontralek.diagram() against the command line's --diagram on the same table."""
import xml.etree.ElementTree as ET
import pytest
import vontralek
from test_vontralek import example_waters, run_cli


def test_diagram_is_the_command_lines_and_writes_svg_or_png(tmp_path):
    frame = example_waters()
    shown = vontralek.diagram(frame, "piper")
    assert ET.fromstring(shown._repr_svg_().encode()).tag.endswith("svg")
    done, _ = run_cli(frame, tmp_path, "--diagram", "piper", "--diagram-out", str(tmp_path / "cli.svg"))
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "cli.svg").read_text() == shown.svg
    caption = vontralek.diagram(frame, "Schoeller", tmp_path / "s.png")
    assert caption.startswith("Schoeller diagram of %d samples" % len(frame))
    assert (tmp_path / "s.png").read_bytes()[:4] == b"\x89PNG"
    with pytest.raises(vontralek.VontralekError, match="piper"):
        vontralek.diagram(frame, "ternary")
    with pytest.raises(vontralek.VontralekError, match=".svg nor .png"):
        vontralek.diagram(frame, "stiff", tmp_path / "s.pdf")
