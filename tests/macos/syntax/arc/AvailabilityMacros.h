// Empty: GoogleTest includes it on a Mac; the syntax check needs nothing from it.
