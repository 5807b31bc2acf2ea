// Placeholder until this module is built.
#include "detection/signatures.h"

const BytePattern kBytePatterns[4] = {};
const DigestEntry kDigestEntries[22] = {};
