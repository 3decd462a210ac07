// Replaced as the layer's sources land.
