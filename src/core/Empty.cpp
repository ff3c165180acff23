// Keeps every library non-empty while its folders are still being filled.
