"""The exceptions of the package: every one is a kestrel.Error, and also the
built-in exception a Python user would catch for it."""

import errno


class Error(Exception):
    """A failure of a KESTREL call; the message is the programs' own text."""


class InputError(Error, ValueError):
    """A damaged or refused file, a halt, or an argument the call does not take."""


class FileError(Error, OSError):
    """A file that cannot be opened, read or written."""


class MissingFileError(FileError, FileNotFoundError):
    """A file that is not there."""

    def __init__(self, message):
        super().__init__(message)
        # OSError's own fields, as open() would give them.
        self.errno = errno.ENOENT
