function faulty() {
  throw new Error("faulty " + three);
}
