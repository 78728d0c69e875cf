// placeholder until the first module of this library lands
