# The Windows installer, made by CPack with NSIS.
