// Keeps the library non-empty until the area has files of its own.
