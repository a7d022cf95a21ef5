import sys
from pathlib import Path

# The shared face table lives beside the tests.
sys.path.insert(0, str(Path(__file__).parent))
