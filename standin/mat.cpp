// libmat: the MAT-file library. Modules declare it as needed but call nothing in it,
// so the stand-in only has to exist under its soname.
