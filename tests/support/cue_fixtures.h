// CUE material is built by the transcripts (tests/cue/cue.txt) themselves.
#pragma once
